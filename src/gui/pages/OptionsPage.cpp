// The "Options" page: the list's rules and its mailbox.

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"

namespace corvanteer {
namespace {

// A radio group: the group box carries the control's name, its buttons "<name>0", "<name>1"...
// and the button group (which knows the choice) its own name.
QButtonGroup* RadioGroup(QGroupBox* box, const char* name, const char* groupName,
                         const QStringList& captions) {
    auto* group = Named<QButtonGroup>(box, groupName);
    auto* layout = Child<QVBoxLayout>(box);
    box->setLayout(layout);
    for (int i = 0; i < captions.size(); ++i) {
        const std::string buttonName = std::string(name) + std::to_string(i);
        auto* button = Named<QRadioButton>(box, buttonName.c_str(), captions[i]);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    return group;
}

}  // namespace

QWidget* TfrmMain::BuildOptionsPage() {
    auto* page = Named<QWidget>(this, "tabOptions");
    auto* grid = Child<QGridLayout>(page);
    page->setLayout(grid);

    auto* rules = Child<QWidget>(page);
    auto* rulesGrid = Child<QGridLayout>(rules);
    rules->setLayout(rulesGrid);
    rulesGrid->setContentsMargins(0, 0, 0, 0);
    chkAllowUserSubscribe = Named<QCheckBox>(rules, "chkAllowUserSubscribe",
                                             QStringLiteral("Allow user subscribe/unsubscribe"));
    chkVerifySubscribe = Named<QCheckBox>(rules, "chkVerifySubscribe",
                                          QStringLiteral("Require verification within"));
    spinVerifyDays = Named<QSpinBox>(rules, "spinVerifyDays");
    spinVerifyDays->setRange(1, 60);
    lblDays = Named<QLabel>(rules, "lblDays", QStringLiteral("days"));
    chkModerateList = Named<QCheckBox>(rules, "chkModerateList", QStringLiteral("Moderate List"));
    chkRequirePassword =
        Named<QCheckBox>(rules, "chkRequirePassword", QStringLiteral("Require password"));
    chkForwardErrorMsgs = Named<QCheckBox>(rules, "chkForwardErrorMsgs",
                                           QStringLiteral("Fwd unauthorized/error msgs to"));
    edtErrorsTo = Named<QLineEdit>(rules, "edtErrorsTo");
    chkHideSenderEmail = Named<QCheckBox>(rules, "chkHideSenderEmail",
                                          QStringLiteral("Change sender email address to"));
    edtHideEmail = Named<QLineEdit>(rules, "edtHideEmail");
    rulesGrid->addWidget(chkAllowUserSubscribe, 0, 0, 1, 3);
    rulesGrid->addWidget(chkVerifySubscribe, 1, 0);
    rulesGrid->addWidget(spinVerifyDays, 1, 1);
    rulesGrid->addWidget(lblDays, 1, 2);
    rulesGrid->addWidget(chkModerateList, 2, 0, 1, 3);
    rulesGrid->addWidget(chkRequirePassword, 3, 0, 1, 3);
    rulesGrid->addWidget(chkForwardErrorMsgs, 4, 0);
    rulesGrid->addWidget(edtErrorsTo, 4, 1, 1, 2);
    rulesGrid->addWidget(chkHideSenderEmail, 5, 0);
    rulesGrid->addWidget(edtHideEmail, 5, 1, 1, 2);
    grid->addWidget(rules, 0, 0, 1, 2);

    optAllowPostBy = Named<QGroupBox>(page, "optAllowPostBy", QStringLiteral(" Permissions "));
    allowPostByGroup = RadioGroup(
        optAllowPostBy, "optAllowPostBy", "allowPostByGroup",
        {QStringLiteral("Allow only moderators to post"), QStringLiteral("Allow members to post"),
         QStringLiteral("Allow anybody to post")});
    optPostingMethod =
        Named<QGroupBox>(page, "optPostingMethod", QStringLiteral(" Posting method "));
    postingMethodGroup =
        RadioGroup(optPostingMethod, "optPostingMethod", "postingMethodGroup",
                   {QStringLiteral("Blind carbon copy (Bcc)"), QStringLiteral("Individually")});
    grid->addWidget(optAllowPostBy, 1, 0);
    grid->addWidget(optPostingMethod, 1, 1);

    auto* addresses = Child<QWidget>(page);
    auto* form = Child<QFormLayout>(addresses);
    addresses->setLayout(form);
    form->setContentsMargins(0, 0, 0, 0);
    lblTo = Named<QLabel>(addresses, "lblTo", QStringLiteral("To"));
    edtTo = Named<QLineEdit>(addresses, "edtTo");
    edtListPostingAddress = Named<QLineEdit>(addresses, "edtListPostingAddress");
    form->addRow(lblTo, edtTo);
    form->addRow(QStringLiteral("List posting address"), edtListPostingAddress);
    grid->addWidget(addresses, 2, 0, 1, 2);

    auto* pop3 = Named<QGroupBox>(page, "grpListPop3", QStringLiteral(" List POP3 (incoming) "));
    auto* pop3Form = Child<QFormLayout>(pop3);
    pop3->setLayout(pop3Form);
    edtPop3Host = Named<QLineEdit>(pop3, "edtPop3Host");
    edtPop3UserID = Named<QLineEdit>(pop3, "edtPop3UserID");
    edtPop3Password = Named<QLineEdit>(pop3, "edtPop3Password");
    edtPop3Password->setEchoMode(QLineEdit::Password);
    spinPop3Port = Named<QSpinBox>(pop3, "spinPop3Port");
    spinPop3Port->setRange(0, 65535);
    pop3Form->addRow(QStringLiteral("Host"), edtPop3Host);
    pop3Form->addRow(QStringLiteral("User"), edtPop3UserID);
    pop3Form->addRow(QStringLiteral("Password"), edtPop3Password);
    pop3Form->addRow(QStringLiteral("Port"), spinPop3Port);
    grid->addWidget(pop3, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
    return page;
}

}  // namespace corvanteer
