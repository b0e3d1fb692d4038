/* iQvn.exe lies on the distribution medium only to carry the product's
   icon: the setup pages show the icon associated with this file. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command, int show)
{
    (void)instance;
    (void)previous;
    (void)command;
    (void)show;
    return 0;
}
