// Helpers for the manager dialog tests: open a dialog the way DoModal does but without its loop, click its
// buttons, read its rows, answer a nested modal form, and write GBK list files.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "support/cards.h"
#include "ui/dialog.h"

namespace mangfx {

// A dialog whose initialisation a test runs itself (DoModal without the modal loop).
template <class D>
class Opened : public D {
  public:
    using D::D;
    bool Init() { return this->OnInitDialog(); }
};

inline void Click(const CDialog& d, int id) {
    auto* b = d.ItemAs<QAbstractButton>(id);
    ASSERT_NE(b, nullptr) << "no button " << id;
    b->click();
}

inline void Type(const CDialog& d, int id, const std::string& utf8) {
    auto* e = d.ItemAs<QLineEdit>(id);
    ASSERT_NE(e, nullptr) << "no edit " << id;
    e->setText(QString::fromUtf8(utf8));
}

inline std::vector<std::string> Rows(const CDialog& d, int column = 0) {
    std::vector<std::string> out;
    const auto* list = d.ItemAs<QTreeWidget>(1020);
    if (!list) return out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out.push_back(list->topLevelItem(i)->text(column).toStdString());
    return out;
}

// Marks a row the way a user's click does.
inline void Select(const CDialog& d, int row) {
    auto* list = d.ItemAs<QTreeWidget>(1020);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->topLevelItem(row), nullptr) << "no row " << row;
    list->setCurrentItem(list->topLevelItem(row));
}

// Runs `f` on the modal dialog that the next call brings up. If `f` leaves it open, the test fails and the
// dialog is cancelled so that the test cannot hang.
inline void WhenModal(std::function<void(CDialog&)> f) {
    QTimer::singleShot(0, [f] {
        auto* d = qobject_cast<CDialog*>(QApplication::activeModalWidget());
        if (!d) {
            ADD_FAILURE() << "no modal dialog came up";
            return;
        }
        QPointer<CDialog> guard(d);
        f(*d);
        if (guard && guard->isVisible() && !guard->Ended()) {
            ADD_FAILURE() << "the modal dialog was left open";
            guard->EndDialog(plat::IDCANCEL);
        }
    });
}

// Lets pending timers run, so that a WhenModal script meant for a dialog that never came up reports it.
inline void Drain() { QCoreApplication::processEvents(); }

// For a step that must not open any form: one that does is reported and cancelled. Call Drain() after.
inline void ExpectNoModal() {
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<CDialog*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "a modal dialog came up: " << d->windowTitle().toStdString();
            d->EndDialog(plat::IDCANCEL);
        }
    });
}

// GBK text of the given UTF-8 lines, each ended with CR LF.
inline std::string ListText(const std::vector<std::string>& utf8Lines) {
    std::string out;
    for (const auto& l : utf8Lines) out += plat::Gbk(l) + "\r\n";
    return out;
}

// A line index file (UTF-8 title) as the program writes it; links given as {name, url} in UTF-8, of class K,
// stamped 2003-2-5 9:7, keyword 关键, source 报纸.
inline std::string LinkList(const std::string& title, const std::vector<std::pair<std::string, std::string>>& links) {
    std::vector<LineIndexLink> l;
    for (const auto& [name, url] : links)
        l.push_back({plat::Gbk(name), plat::Gbk(url), "K", "2003-2-5 9:7", plat::Gbk("关键"), plat::Gbk("报纸")});
    return LinkListBytes(plat::Gbk(title), plat::Gbk("资料卡"), l);
}

}  // namespace mangfx
