// packcli MODE SOURCE DESTINATION [MODE SOURCE DESTINATION ...]
// Runs PackFile for each triple and prints one result a line: one Wine
// process serves a whole batch.
#include <stdio.h>
#include <stdlib.h>
#include "packfile.h"

int main(int argc, char **argv)
{
    if (argc < 4 || (argc - 1) % 3) {
        fprintf(stderr, "usage: packcli 1|-1 SOURCE DESTINATION [...]\n");
        return 2;
    }
    for (int i = 1; i + 2 < argc; i += 3)
        printf("%d\n", PackFile(atoi(argv[i]), argv[i + 1], argv[i + 2]));
    return 0;
}
