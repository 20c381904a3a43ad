#include "platform/access.h"

namespace platform {

std::string PrivateFolderSddl(const std::string& userSid) {
    // P: protected, nothing from the parent; OICI: handed down to files and folders; FA: full control.
    return "D:P(A;OICI;FA;;;" + userSid + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

}  // namespace platform
