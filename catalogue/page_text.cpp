#include "catalogue/page_text.h"
