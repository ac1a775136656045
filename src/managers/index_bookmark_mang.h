// The index and bookmark manager: one line index list file of the current library.
#pragma once

#include <list>
#include <string>

#include "store/xml_record_set.h"
#include "ui/dialog.h"

class QTreeWidget;

struct IndexEntry {
    std::string name, url, klass, date, keyword, source;
};

class CIndexBookmarkMang : public CDialog {
    Q_OBJECT
public:
    // libRoot: the absolute library root in lower case (ASCII), ending with '\'.
    CIndexBookmarkMang(const std::string& libRoot, QWidget* parent);
    ~CIndexBookmarkMang() override;

    bool LoadList();
    bool AddFile(const std::string& path);
    bool SaveList();
    void FillList();
    void FreeList();

    // Entries of the chain counting the closing empty slot: links + 1 once a list is loaded, 0 before.
    int Count() const { return m_bLoaded ? static_cast<int>(m_entries.size()) + 1 : 0; }
    // The marked row (the one selected last, or moved by Up/Down); -1 when none.
    int Mark() const { return m_nMark; }

    std::string m_strLibRoot;
    bool m_bNoEdit = true;
    std::string m_strListPath;  // set by the creator before use
    std::string m_strError;
    std::list<IndexEntry> m_entries;  // the links (the closing empty slot is implicit)
    bool m_bLoaded = false;
    bool m_bWhole = true;  // false when a damaged link cut the loaded list short: it must not be saved
    XmlRecordSet m_xml;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnAdd();
    void OnDelete();
    void OnOpen();
    void OnMoveUp();
    void OnMoveDown();

private:
    std::list<IndexEntry>::iterator MarkedEntry();  // end() when no row is marked
    void MarkRow(int row);

    QTreeWidget* m_list = nullptr;  // control 1020
    int m_nMark = -1;
};
