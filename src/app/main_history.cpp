// The history of the card in the form (Ctrl+H): a restored version comes into the form as an edit the
// user has not saved yet, the card's file name and stylesheet as they were.
#include <QLineEdit>
#include <QRegularExpression>

#include "app/card_history.h"
#include "app/history_dlg.h"
#include "app/main_dlg.h"
#include "platform/codec.h"
#include "store/xml_record_set.h"

using plat::Gbk;

void CMainDlg::OnHistory() {
    const std::string card = m_form.LoadedPath();
    CHistoryDlg dlg(*m_history, card, [this, card](const std::string& bytes) { RestoreVersion(card, bytes); }, this);
    dlg.DoModal();
}

void CMainDlg::RestoreVersion(const std::string& card, const std::string& bytes) {
    XmlRecordSet xml;
    plat::LineReader reader = plat::LineReader::FromString(bytes);
    if (!xml.ReadCard(reader)) {
        Notify(Gbk("这个版本不是能打开的资料卡，没有放进表单"));
        return;
    }
    const DatumCard& c = xml.card;
    QString body = plat::ToQ(c.content);
    body.replace(QRegularExpression(QStringLiteral("\r\n|\r")), QStringLiteral("\n"));
    m_form.Show({plat::ToQ(c.title), plat::ToQ(c.keyword), plat::ToQ(c.klass), plat::ToQ(c.source),
                 m_edFile->text(), body});
    m_history->Restored(card);
    Notify(Gbk("已把这个版本放进表单；保存后它就是资料卡现在的内容"));
}
