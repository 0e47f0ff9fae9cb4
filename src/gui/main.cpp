#include "gui/StartUp.h"

int main(int argc, char** argv) {
    return corvanteer::RunCorvanteer(argc, argv);
}
