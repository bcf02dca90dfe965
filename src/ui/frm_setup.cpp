#include "ui/frm_setup.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "store/settings.h"
#include "store/setup_fields.h"
#include "ui/desktop_services.h"
#include "ui/form_fonts.h"

namespace skarvel {

frmSetup::frmSetup(Settings& settings, DesktopServices& services, QWidget* parent)
    : QDialog(parent), settings_(settings), services_(services) {
    setWindowTitle("Setup");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(243, 202);
    setFont(ui::formFont());

    auto label = [this](const char* text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setGeometry(x, y, w, h);
        return l;
    };
    auto field = [this](int x, int y, int w, int h, const char* tip) {
        auto* f = new QLineEdit(this);
        f->setGeometry(x, y, w, h);
        if (tip) f->setToolTip(tip);
        return f;
    };
    label("Cloudy threshold", 16, 16, 97, 17)->setObjectName("Label4");
    CloudyThresholdField = field(136, 16, 33, 19, "Temperature difference for a cloudy sky");
    label("Very Cloudy threshold", 16, 48, 121, 17)->setObjectName("Label3");
    VeryCloudyThresholdField =
        field(136, 48, 33, 19, "Temperature difference for a very cloudy sky");
    label("Com port", 16, 80, 49, 17)->setObjectName("Label1");
    ComPort = field(80, 80, 41, 19, nullptr);
    ComPort->setText("1");
    label("Web path", 16, 112, 57, 17)->setObjectName("Label2");
    WebPathField =
        field(80, 112, 145, 19, "Enter the path to save the history image for web serving");
    cmdOK = new QPushButton("OK", this);
    cmdOK->setGeometry(40, 152, 73, 25);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setGeometry(128, 152, 73, 25);
    // Enter must not press OK.
    cmdOK->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);

    CloudyThresholdField->setObjectName("CloudyThresholdField");
    VeryCloudyThresholdField->setObjectName("VeryCloudyThresholdField");
    ComPort->setObjectName("ComPort");
    WebPathField->setObjectName("WebPathField");
    cmdOK->setObjectName("cmdOK");
    cmdCancel->setObjectName("cmdCancel");

    QWidget::setTabOrder(cmdOK, cmdCancel);
    QWidget::setTabOrder(cmdCancel, ComPort);
    QWidget::setTabOrder(ComPort, WebPathField);
    QWidget::setTabOrder(WebPathField, VeryCloudyThresholdField);
    QWidget::setTabOrder(VeryCloudyThresholdField, CloudyThresholdField);

    connect(cmdOK, &QPushButton::clicked, this, &frmSetup::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSetup::cmdCancel_Click);
}

void frmSetup::Form_Load() {
    const SetupFields f = setupFields(settings_);
    ComPort->setText(QString::fromStdString(f.comPort));
    WebPathField->setText(QString::fromStdString(f.webPath));
    CloudyThresholdField->setText(QString::fromStdString(f.cloudyThreshold));
    VeryCloudyThresholdField->setText(QString::fromStdString(f.vCloudyThreshold));
}

void frmSetup::showModal() {
    Form_Load();
    if (QWidget* p = parentWidget()) {
        const QRect outer = p->geometry();
        move(outer.center() - QPoint(width() / 2, height() / 2));
    }
    cmdOK->setFocus();
    exec();
}

void frmSetup::cmdOK_Click() {
    const SetupFields fields{
        ComPort->text().trimmed().toStdString(), WebPathField->text().toStdString(),
        CloudyThresholdField->text().toStdString(), VeryCloudyThresholdField->text().toStdString()};
    const SetupOutcome outcome = applySetupFields(fields, settings_);
    if (!outcome.message.empty()) services_.messageBox(outcome.message);
    if (outcome.close) accept();
}

void frmSetup::cmdCancel_Click() {
    QDialog::reject();
}

void frmSetup::reject() {
    cmdCancel_Click();
}

}  // namespace skarvel
