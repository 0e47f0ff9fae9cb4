#include "gui/TfrmSmtpAuth.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "gui/GuiUtil.h"
#include "support/SettingTables.h"
#include "support/SettingsStore.h"

namespace corvanteer {

TfrmSmtpAuth::TfrmSmtpAuth(SettingsStore& store, std::string settingsKey, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      store_(store),
      key_(std::move(settingsKey)) {
    setObjectName(QStringLiteral("frmSmtpAuth"));
    setWindowTitle(QStringLiteral("SMTP Authentication"));
    auto* layout = Child<QVBoxLayout>(this);
    setLayout(layout);
    chkReqSmtpAuth = Child<QCheckBox>(this, QStringLiteral("Authentication required"));
    chkReqSmtpAuth->setObjectName(QStringLiteral("chkReqSmtpAuth"));
    grpSmtpUser = Child<QGroupBox>(this);
    grpSmtpUser->setObjectName(QStringLiteral("grpSmtpUser"));
    auto* form = Child<QFormLayout>(grpSmtpUser);
    grpSmtpUser->setLayout(form);
    edtSmtpUser = Child<QLineEdit>(grpSmtpUser);
    edtSmtpUser->setObjectName(QStringLiteral("edtSmtpUser"));
    edtSmtpPassword = Child<QLineEdit>(grpSmtpUser);
    edtSmtpPassword->setObjectName(QStringLiteral("edtSmtpPassword"));
    edtSmtpPassword->setEchoMode(QLineEdit::Password);
    // Both go into SMTP commands as one line: no control character can be typed or pasted.
    for (QLineEdit* edit : {edtSmtpUser, edtSmtpPassword}) {
        edit->setValidator(Child<QRegularExpressionValidator>(
            edit, QRegularExpression(QStringLiteral("[^\\x00-\\x1f\\x7f]*"))));
    }
    form->addRow(QStringLiteral("User name"), edtSmtpUser);
    form->addRow(QStringLiteral("Password"), edtSmtpPassword);
    auto* ok = Child<QPushButton>(this, QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("butOK"));
    layout->addWidget(chkReqSmtpAuth);
    layout->addWidget(grpSmtpUser);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const SettingReader stored(store_, key_, GlobalSettingTable(), /*scan=*/false);
    chkReqSmtpAuth->setChecked(stored.Boolean("ReqSmtpAuth"));
    edtSmtpUser->setText(Q(stored.Text("SmtpUser")));
    edtSmtpPassword->setText(Q(stored.Text("SmtpPassword")));
    grpSmtpUser->setEnabled(chkReqSmtpAuth->isChecked());

    connect(chkReqSmtpAuth, &QCheckBox::clicked, this, &TfrmSmtpAuth::chkReqSmtpAuthClick);
    OnLeave(edtSmtpUser, [this] {
        store_.WriteRegString(key_, "SmtpUser", User());
        emit settingsChanged();
    });
    OnLeave(edtSmtpPassword, [this] {
        store_.WriteRegString(key_, "SmtpPassword", ScramblePassword(Password()));
        emit settingsChanged();
    });
    setFixedSize(sizeHint());
}

void TfrmSmtpAuth::chkReqSmtpAuthClick() {
    store_.WriteRegBool(key_, "ReqSmtpAuth", chkReqSmtpAuth->isChecked());
    grpSmtpUser->setEnabled(chkReqSmtpAuth->isChecked());
    emit settingsChanged();
}

bool TfrmSmtpAuth::RequireAuthentication() const {
    return chkReqSmtpAuth->isChecked();
}
std::string TfrmSmtpAuth::User() const {
    return S(edtSmtpUser->text());
}
std::string TfrmSmtpAuth::Password() const {
    return S(edtSmtpPassword->text());
}

}  // namespace corvanteer
