// What the class and source managers share: dialog 133 over a list file of up to 100 names, with Add,
// Delete, Up and Down, and the file rewritten on OK only.
#pragma once

#include <string>

#include "ui/dialog.h"

class CNameListMang : public CDialog {
    Q_OBJECT
public:
    CNameListMang(const std::string& listPath, QWidget* parent);

    virtual bool LoadList() = 0;  // false: m_strError says why
    virtual bool SaveList() = 0;  // false: m_strError says why; the old file is intact
    virtual void FillList() = 0;

    std::string m_strListPath;
    int m_nCount = 0;
    std::string m_strError;

protected:
    enum : int { kEdit = 1021, kList = 1020 };

    bool OnInitDialog() override;  // a list that cannot be loaded ends the dialog with its error
    void OnOK() override;          // a list that cannot be written keeps the dialog open
    virtual void OnAdd() = 0;
    virtual void OnDelete() = 0;
    virtual void OnMoveUp() = 0;
    virtual void OnMoveDown() = 0;
};
