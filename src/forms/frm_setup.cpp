#include "forms/frm_setup.h"

#include "platform/desktop_services.h"

namespace skarvel {

void frmSetup::showModal() {
    if (!view_) return;
    Form_Load();
    view_->runModal();
}

void frmSetup::Form_Load() {
    if (view_) view_->setFields(setupFields(settings_));
}

void frmSetup::cmdOK_Click() {
    if (!view_) return;
    SetupFields fields = view_->fields();
    // A port typed with blanks around it is still that port.
    const auto first = fields.comPort.find_first_not_of(" \t\n\v\f\r");
    const auto last = fields.comPort.find_last_not_of(" \t\n\v\f\r");
    fields.comPort =
        first == std::string::npos ? "" : fields.comPort.substr(first, last - first + 1);
    const SetupOutcome outcome = applySetupFields(fields, settings_);
    if (!outcome.message.empty()) services_.messageBox(outcome.message);
    if (outcome.close) view_->end();
}

void frmSetup::cmdCancel_Click() {
    if (view_) view_->end();
}

}  // namespace skarvel
