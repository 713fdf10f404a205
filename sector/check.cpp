#include "sector/check.h"

bool check_raw_image_file(const char*, std::string& report)
{
    report = "raw sector check not available\n";
    return false;
}
