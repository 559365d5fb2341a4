// A learner's mistake: main() where app_main() belongs. Linking it must fail and name app_main.
#include "display/graphics_display.h"

int main() {
    GraphicsDisplay display;
    display.clear(1);
    return 0;
}
