// An application outside the tree: it includes the installed headers and
// calls the installed library.
#include <tarvel/pdc.h>

#include <cstdio>

int main()
{
    std::printf("version %d\n", PDC_GetVersion());
    return 0;
}
