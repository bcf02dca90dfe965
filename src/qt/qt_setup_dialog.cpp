#include "qt/qt_setup_dialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "qt/qt_form_builder.h"

namespace skarvel {

QtSetupDialog::QtSetupDialog(frmSetup& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    buildForm(*this, frmSetupTable());
    CloudyThresholdField = findChild<QLineEdit*>("CloudyThresholdField");
    VeryCloudyThresholdField = findChild<QLineEdit*>("VeryCloudyThresholdField");
    ComPort = findChild<QLineEdit*>("ComPort");
    WebPathField = findChild<QLineEdit*>("WebPathField");
    cmdOK = findChild<QPushButton*>("cmdOK");
    cmdCancel = findChild<QPushButton*>("cmdCancel");
    connect(cmdOK, &QPushButton::clicked, this, [this] { form_.cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { form_.cmdCancel_Click(); });
    form_.setView(this);
}

SetupFields QtSetupDialog::fields() const {
    return {ComPort->text().toStdString(), WebPathField->text().toStdString(),
            CloudyThresholdField->text().toStdString(),
            VeryCloudyThresholdField->text().toStdString()};
}

void QtSetupDialog::setFields(const SetupFields& f) {
    ComPort->setText(QString::fromStdString(f.comPort));
    WebPathField->setText(QString::fromStdString(f.webPath));
    CloudyThresholdField->setText(QString::fromStdString(f.cloudyThreshold));
    VeryCloudyThresholdField->setText(QString::fromStdString(f.vCloudyThreshold));
}

void QtSetupDialog::runModal() {
    if (QWidget* p = parentWidget()) {
        const QRect outer = p->geometry();
        move(outer.center() - QPoint(width() / 2, height() / 2));
    }
    cmdOK->setFocus();
    exec();
}

}  // namespace skarvel
