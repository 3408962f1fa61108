#include "params/ParamProtocol.h"
