// Small product files with the version facts a test needs, written by mkimage.
#pragma once

#include <mkimage/tagged_images.h>

namespace testing_support {

using mkimage::unversioned_dll;
using mkimage::versioned_dll;

}  // namespace testing_support
