#include "desktop/ShellCommon.h"

#include "keel/LocalizedString.h"

namespace desktop {

QString localized(std::string_view key) {
    return QString::fromStdString(keel::TL(key));
}

}  // namespace desktop
