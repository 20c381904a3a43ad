#include "launcher/dialog.h"

#include "payload/extractor.h"

void RunWithProgressDialog() {
    // Without a progress window the run goes as in silent mode.
    CSFEFileExtractor extractor;
    extractor.ExtractAndRun();
}
