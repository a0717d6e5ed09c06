// Program entry. The command line is ignored.
#include "app/connect_loop.h"

int main() {
    return FlankguardMain();
}
