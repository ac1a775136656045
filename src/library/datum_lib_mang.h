// The library manager and its one-library form.
#pragma once

#include <string>

#include "library/registry.h"
#include "ui/dialog.h"

class CDatumLibInfo : public CDialog {
    Q_OBJECT
public:
    explicit CDatumLibInfo(QWidget* parent = nullptr);
    std::string m_strName;  // GBK; set before DoModal, read after OK
    std::string m_strPath;  // GBK; a folder path ending with '\'
    bool m_bNameOnly = false;  // Edit: only the name is taken back, so the path field and Browse are disabled

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnBrowse();
};

class CDatumLibMang : public CDialog {
    Q_OBJECT
public:
    explicit CDatumLibMang(QWidget* parent = nullptr);

    bool LoadList();
    bool SaveList();
    void FillList();

    LibraryRegistry m_reg;  // m_libs, m_nCount, m_nUse
    std::string m_strError;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnNew();
    void OnEdit();
    void OnDelete();
    void OnSetDefault();
};
