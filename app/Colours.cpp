#include "app/Colours.h"
