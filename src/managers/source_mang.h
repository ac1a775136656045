// The source manager: the twin of the class manager, with bare names and no folders.
#pragma once

#include <array>
#include <string>

#include "library/registry.h"
#include "ui/dialog.h"

class CSourceMang : public CDialog {
    Q_OBJECT
public:
    CSourceMang(const std::string& listPath, QWidget* parent);

    bool LoadList();
    bool SaveList();
    void FillList();

    std::string m_strListPath;
    std::array<std::string, kMaxListSlots> m_sources;
    int m_nCount = 0;
    std::string m_strError;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnAdd();
    void OnDelete();
    void OnMoveUp();
    void OnMoveDown();
};
