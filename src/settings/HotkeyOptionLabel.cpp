#include "settings/HotkeyOptionLabel.h"

namespace vandrel {

QString HotkeyOptionLabel::text(const Bundle& bundle) const {
    auto label = QString::fromStdString(localizedLabel(option, bundle));
    if (!unavailableMark.isEmpty()) label += QStringLiteral(" (") + unavailableMark + QLatin1Char(')');
    if (warningKey(option)) label += QStringLiteral("  \u26A0\uFE0F");
    return label;
}

}  // namespace vandrel
