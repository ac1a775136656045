// The class manager: classes are folders of the library, listed in _ _SETS_ _\class.list.
#pragma once

#include <array>
#include <string>

#include "library/registry.h"
#include "managers/name_list_mang.h"

struct ClassEntry {
    std::string name;  // may hold '\' (nested class)
    std::string path;  // library root + name + '\'
};

class CClassMang : public CNameListMang {
    Q_OBJECT
public:
    CClassMang(const std::string& libRoot, const std::string& listPath, QWidget* parent);

    bool LoadList() override;
    bool SaveList() override;
    void FillList() override;

    std::string m_strLibRoot;
    std::array<ClassEntry, kMaxListSlots> m_classes;

protected:
    void OnAdd() override;     // also creates the class folder
    void OnDelete() override;  // also removes the class folder, when empty
    void OnMoveUp() override;
    void OnMoveDown() override;
};
