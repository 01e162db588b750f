// quarrow-find: the command-line front end over the search run.
#include "cli/CFindCommand.h"

int main(int argc, char** argv)
{
    return FindMain(argc, argv);
}
