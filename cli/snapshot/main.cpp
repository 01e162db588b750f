// quarrow-snapshot: takes a live server's catalogue into a snapshot file, or refreshes one.
#include "cli/CSnapshotCommand.h"

int main(int argc, char** argv)
{
    return SnapshotMain(argc, argv);
}
