#include "app/KeptNetwork.h"

#include <QSettings>

#include "res/Strings.h"

namespace keptnetwork {
namespace {

constexpr char kKey[] = "Network/Interface";

// HKEY_CURRENT_USER\Software\PraveltTest\PraveltTest on Windows,
// ~/.config/PraveltTest/PraveltTest.conf elsewhere.
QSettings Store() {
    const QString name = QString::fromLatin1(res::kProgramName);
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, name, name);
}

}  // namespace

std::optional<std::string> Load() {
    const QString value = Store().value(QString::fromLatin1(kKey)).toString();
    if (value.isEmpty()) return std::nullopt;
    return value.toStdString();
}

void Save(const std::optional<std::string>& interfaceName) {
    QSettings store = Store();
    if (interfaceName) {
        store.setValue(QString::fromLatin1(kKey), QString::fromStdString(*interfaceName));
    } else {
        store.remove(QString::fromLatin1(kKey));
    }
    store.sync();
}

}  // namespace keptnetwork
