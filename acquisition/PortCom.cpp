#include "acquisition/PortCom.h"

namespace acquisition {

PortCom portCom;

} // namespace acquisition
