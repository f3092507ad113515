#include "colour/view_keys.h"

int ViewModeForKey(int key)
{
    for (const ViewKey& view : viewKeys) {
        if (view.key == key) return view.mode;
    }
    return -1;
}
