// The class manager: classes are folders of the library, listed in _ _SETS_ _\class.list.
#pragma once

#include <array>
#include <string>

#include "library/registry.h"
#include "ui/dialog.h"

struct ClassEntry {
    std::string name;  // may hold '\' (nested class)
    std::string path;  // library root + name + '\'
};

class CClassMang : public CDialog {
    Q_OBJECT
public:
    CClassMang(const std::string& libRoot, const std::string& listPath, QWidget* parent);

    bool LoadList();
    bool SaveList();
    void FillList();

    std::string m_strListPath;
    std::string m_strLibRoot;
    std::array<ClassEntry, kMaxListSlots> m_classes;
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
