#pragma once

#include <QIcon>

namespace res {

// An icon with all its images; empty for an id it does not hold.
QIcon LoadIcon(int id);

}  // namespace res
