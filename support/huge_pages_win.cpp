#include "support/huge_pages.h"

// Windows hands out large pages only to accounts holding the lock-pages privilege, which a photo
// tool neither has nor should ask for.
void AdviseHugePages(void*, std::size_t) {}
