#pragma once
// "Add source...": asks for a network address and checks its form as it is
// typed; OK stays off, and the reason shows, while it is malformed.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class SourceDialog : public QDialog {
public:
    explicit SourceDialog(QWidget* parent = nullptr);
    QString Address() const;
    void SetAddress(const QString& text);
    // Why the address cannot be taken; empty when it can.
    QString Reason() const;
    bool Acceptable() const;

private:
    void Check();

    QLineEdit* edit_ = nullptr;
    QLabel* reason_ = nullptr;
    QPushButton* ok_ = nullptr;
};
