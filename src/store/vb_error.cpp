#include "store/vb_error.h"

#include <cerrno>

#include "platform/desktop_services.h"

namespace skarvel {

VbError::VbError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

static const char* classicDescription(int number) {
    switch (number) {
        case err::kOverflow:
            return "Overflow";
        case err::kTypeMismatch:
            return "Type mismatch";
        case err::kBadFileName:
            return "Bad file name or number";
        case err::kFileNotFound:
            return "File not found";
        case err::kDiskFull:
            return "Disk full";
        case err::kInputPastEnd:
            return "Input past end of file";
        case err::kPermissionDenied:
            return "Permission denied";
        case err::kPathFileAccess:
            return "Path/File access error";
        case err::kPathNotFound:
            return "Path not found";
        case err::kInvalidPortNumber:
            return "Invalid port number";
        case err::kPortAlreadyOpen:
            return "Port already open";
        case err::kPortNotOpen:
            return "Operation valid only when the port is open";
        case err::kDeviceGone:
            return "The device is no longer available";
        case 7:
            return "Out of memory";
        case 51:
            return "Internal error";
        default:
            return "Application-defined or object-defined error";
    }
}

VbError vbError(int number) {
    return VbError(number, classicDescription(number));
}

VbError asVbError(const std::exception& e) {
    if (auto* vb = dynamic_cast<const VbError*>(&e)) return *vb;
    if (dynamic_cast<const std::bad_alloc*>(&e)) return vbError(7);
    return VbError(51, std::string("Internal error: ") + e.what());
}

std::string errorMessage(const VbError& e, int line, std::string_view procedure,
                         std::string_view form) {
    std::string text = "Error " + std::to_string(e.number()) + " (" + e.description() +
                       ") at line " + std::to_string(line) + " in procedure ";
    text += procedure;
    text += " of Form ";
    text += form;
    return text;
}

void reportError(DesktopServices& services, const std::exception& e, int line,
                 std::string_view procedure, std::string_view form) {
    const VbError vb = asVbError(e);
    services.messageBox(errorMessage(vb, line, procedure, form), vb.concerning());
}

VbError fileError(int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
            return vbError(err::kPathNotFound);
        case ENOTDIR:
            return vbError(err::kPathNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
            return vbError(err::kPermissionDenied);
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return vbError(err::kDiskFull);
        case ENAMETOOLONG:
        case EINVAL:
            return vbError(err::kBadFileName);
        default:
            return vbError(err::kPathFileAccess);
    }
}

}  // namespace skarvel
