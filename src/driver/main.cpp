#include "driver/driver.h"
#include "driver/platform.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const unsigned console = begin_console_output();
    const int status = run_tafelix(argc, argv, stdout);
    end_console_output(console);
    return status;
}
