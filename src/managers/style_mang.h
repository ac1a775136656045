// The style manager: the stylesheet folder itself is the list; every change happens on disk at once.
#pragma once

#include <string>
#include <vector>

#include "ui/dialog.h"

struct StyleEntry {
    std::string name;
    std::string path;  // program directory + "\xmlstyle\datumstyle\" + file name
};

class CStyleMang : public CDialog {
    Q_OBJECT
public:
    explicit CStyleMang(QWidget* parent = nullptr);

    bool ScanStyleFolder();
    void FillList();

    std::vector<StyleEntry> m_styles;  // no fixed limit
    std::string m_strError;
    std::string m_szProgDir;

protected:
    bool OnInitDialog() override;
    void OnAdd();
    void OnDelete();
};
