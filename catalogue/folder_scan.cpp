#include "catalogue/folder_scan.h"
