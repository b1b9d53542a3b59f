#include "tools/image_builder.h"
