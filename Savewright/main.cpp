#include "shell/SavewrightApp.h"

int main(int argc, char** argv) {
    return SavewrightApp::run(argc, argv);
}
