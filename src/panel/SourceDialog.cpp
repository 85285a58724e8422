#include "SourceDialog.h"

#include "SourceAddress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SourceDialog::SourceDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Add source"));
    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(QStringLiteral("tcp://HOST:PORT, udp://:PORT or gpsd://HOST[:PORT][/DEVICE]"), this);
    hint->setTextFormat(Qt::PlainText);
    edit_ = new QLineEdit(this);
    edit_->setMinimumWidth(320);
    reason_ = new QLabel(this);
    reason_->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(hint);
    layout->addWidget(edit_);
    layout->addWidget(reason_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textChanged, this, [this] { Check(); });
    Check();
}

QString SourceDialog::Address() const { return edit_->text().trimmed(); }

void SourceDialog::SetAddress(const QString& text) { edit_->setText(text); }

QString SourceDialog::Reason() const
{
    std::string why;
    if (ParseSourceAddress(Address().toStdString(), nullptr, &why))
        return {};
    return QString::fromStdString(why);
}

bool SourceDialog::Acceptable() const { return ok_->isEnabled(); }

void SourceDialog::Check()
{
    const QString why = Address().isEmpty() ? QString() : Reason();
    reason_->setText(why);
    ok_->setEnabled(!Address().isEmpty() && why.isEmpty());
}
