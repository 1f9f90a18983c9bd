#pragma once
#include "host/resources.h"

namespace tk {

// Checks every embedded picture's pixel data against the check value stored
// for it when the pictures were made; stops at the first mismatch.
bool PicturesIntact(const ResourceSource& resources);

}  // namespace tk
