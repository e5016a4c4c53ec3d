#include "catalogue/page_title.h"
