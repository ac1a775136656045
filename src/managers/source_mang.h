// The source manager: the twin of the class manager, with bare names and no folders.
#pragma once

#include <array>
#include <string>

#include "library/registry.h"
#include "managers/name_list_mang.h"

class CSourceMang : public CNameListMang {
    Q_OBJECT
public:
    CSourceMang(const std::string& listPath, QWidget* parent);

    bool LoadList() override;
    bool SaveList() override;
    void FillList() override;

    std::array<std::string, kMaxListSlots> m_sources;

protected:
    void OnAdd() override;
    void OnDelete() override;
    void OnMoveUp() override;
    void OnMoveDown() override;
};
