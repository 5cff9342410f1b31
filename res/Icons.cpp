#include "res/Icons.h"

#include "res/ResourceIds.h"

// Resources in a static library must be registered by hand, from the global namespace.
static void RegisterIconResources() {
    Q_INIT_RESOURCE(praveltest);
}

namespace res {

QIcon LoadIcon(int id) {
    QIcon icon;
    if (id != kMainIcon) return icon;
    RegisterIconResources();
    icon.addFile(QStringLiteral(":/icons/praveltest-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/praveltest-32.png"), QSize(32, 32));
    return icon;
}

}  // namespace res
