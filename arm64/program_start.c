/* A console program's start, as MinGW-w64's start-up code makes it for the other builds:
   the C runtime's arguments handed to wmain, its result the exit code. */
#include <stdlib.h>
#include <wchar.h>

typedef struct {
    int new_mode;
} StartupInfo;

void __set_app_type(int type);
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand, StartupInfo* info);
int wmain(int argc, wchar_t** argv);

void mainCRTStartup(void)
{
    int argc = 0;
    wchar_t** argv = NULL;
    wchar_t** environment = NULL;
    StartupInfo info = {0};
    __set_app_type(1); /* console */
    __wgetmainargs(&argc, &argv, &environment, 0, &info);
    exit(wmain(argc, argv));
}
