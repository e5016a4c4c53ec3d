#include "catalogue/title_order.h"
