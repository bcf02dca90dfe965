#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace skarvel {

class DesktopServices;

/// A run-time failure with the classic error number and description. Every failure the
/// program reports to the user travels as one of these.
class VbError : public std::runtime_error {
  public:
    VbError(int number, std::string description);
    int number() const { return number_; }
    const std::string& description() const { return description_; }
    /// The file or device the failure concerns, for the journal; empty when unknown.
    const std::string& concerning() const { return concerning_; }
    void setConcerning(std::string what) { concerning_ = std::move(what); }

  private:
    int number_;
    std::string description_;
    std::string concerning_;
};

/// Classic error numbers used by the program.
namespace err {
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kBadFileName = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDiskFull = 61;
inline constexpr int kInputPastEnd = 62;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kInvalidPortNumber = 8002;
inline constexpr int kPortAlreadyOpen = 8005;
inline constexpr int kPortNotOpen = 8012;
inline constexpr int kDeviceGone = 8015;
}  // namespace err

/// The error for a classic number, with its classic description.
VbError vbError(int number);

/// Any exception as a VbError; unknown kinds become error 51 (Internal error).
VbError asVbError(const std::exception& e);

/// "Error N (description) at line L in procedure P of Form F".
std::string errorMessage(const VbError& e, int line, std::string_view procedure,
                         std::string_view form);

/// Shows errorMessage(...) and names the file or device the failure concerns on the journal.
void reportError(DesktopServices& services, const std::exception& e, int line,
                 std::string_view procedure, std::string_view form);

/// Maps an errno value from a failed file operation to the matching VbError.
VbError fileError(int errnoValue);

}  // namespace skarvel
