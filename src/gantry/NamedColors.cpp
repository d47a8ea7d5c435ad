#include "gantry/NamedColors.h"

#include <QHash>
#include <utility>

namespace gantry {

namespace {

QHash<QString, std::pair<QColor, QColor>>& table() {
    static QHash<QString, std::pair<QColor, QColor>> colors;
    return colors;
}

}  // namespace

void NamedColors::define(const QString& name, const QColor& light, const QColor& dark) {
    table().insert(name, {light, dark});
}

bool NamedColors::contains(const QString& name) {
    return table().contains(name);
}

QColor NamedColors::color(const QString& name, Appearance appearance) {
    const auto found = table().constFind(name);
    if (found == table().constEnd()) return {};
    return appearance == Appearance::dark ? found->second : found->first;
}

QColor NamedColors::color(const QString& name) {
    return color(name, currentAppearance());
}

}  // namespace gantry
