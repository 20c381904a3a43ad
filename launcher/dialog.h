// The dialog-driven run: shows the progress dialog, which runs the
// self-extraction with its progress bar and cancel, and returns when the
// run has ended.
#pragma once

void RunWithProgressDialog();
