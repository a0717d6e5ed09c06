// setenv, unsetenv and mkdtemp on the Microsoft C runtime.
#include "posix_shim.h"

#include <direct.h>
#include <errno.h>

#include <cstring>

int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name)) return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}

char* mkdtemp(char* templ) {
    const size_t len = strlen(templ);
    if (len < 6 || strcmp(templ + len - 6, "XXXXXX") != 0) return nullptr;
    char* scratch = new char[len + 1];
    char* made = nullptr;
    for (int attempt = 0; attempt < 100 && !made; ++attempt) {
        memcpy(scratch, templ, len + 1);
        // _mktemp_s draws on the process id and one letter: a collision
        // with another process's directory is answered by drawing again.
        if (_mktemp_s(scratch, len + 1) != 0) break;
        if (_mkdir(scratch) == 0) {
            memcpy(templ, scratch, len + 1);
            made = templ;
        } else if (errno != EEXIST) {
            break;
        }
    }
    delete[] scratch;
    return made;
}
