#pragma once

#include <string>

namespace superpixels {

// A seam for tests only (nothing in the library or the tool sets it): tests that stop a run in the
// middle of writing its results, or replace a result while it is written, need to act at the one
// moment between a file's bytes and its rename.
//
// `hook` is called on the writing thread with the temporary file's path once its bytes are written
// and before it is renamed into place; null for none (the default).
void setBeforeRenameHookForTesting(void (*hook)(const std::string& temporary));

}  // namespace superpixels
