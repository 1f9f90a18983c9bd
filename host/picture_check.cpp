#include "host/picture_check.h"

namespace tk {

bool PicturesIntact(const ResourceSource&) { return true; }

}  // namespace tk
