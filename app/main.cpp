#include "entry.h"
#include "whoismain.h"

int main(int argc, char *argv[])
{
    return runApplication(argc, argv, fmMain);
}
