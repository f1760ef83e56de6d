#include "net/kwnetwork.h"

KWNetwork* pKWNet = nullptr;
