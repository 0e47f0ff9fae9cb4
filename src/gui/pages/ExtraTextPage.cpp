#include "gui/pages/ExtraTextPage.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "engine/ManualPosting.h"
#include "gui/GuiUtil.h"

namespace corvanteer {

ExtraTextPage::ExtraTextPage(PageHost& host, QWidget* parent)
    : QWidget(parent), fields_(host, SettingScope::List) {
    setObjectName(QStringLiteral("tabExtraText"));
    auto* layout = Child<QVBoxLayout>(this);
    setLayout(layout);
    memoHeaders = Named<QPlainTextEdit>(this, "memoHeaders");
    memoSignature = Named<QPlainTextEdit>(this, "memoSignature");
    memoHeaders->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(Child<QLabel>(this, QStringLiteral("Headers")));
    layout->addWidget(memoHeaders);
    layout->addWidget(Child<QLabel>(this, QStringLiteral("Signature")));
    layout->addWidget(memoSignature);
    memoDescription = Named<QPlainTextEdit>(this, "memoDescription");
    memoDescription->setMaximumHeight(90);
    layout->addWidget(Child<QLabel>(this, QStringLiteral("Description (archive's list page)")));
    layout->addWidget(memoDescription);

    fields_.Bind({
        Section(memoHeaders, "ExtraHeaders"),
        Section(memoSignature, "Signature"),
        Section(memoDescription, "Description"),
    });
}

void ExtraTextPage::FillPosting(ManualPosting& posting) const {
    posting.extraHeaders = MemoLines(memoHeaders);
    posting.signature = JoinLines(MemoLines(memoSignature));
}

}  // namespace corvanteer
