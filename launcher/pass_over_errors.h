// Internal to launcher/: running an archive step whose failure the run
// passes over without a message.
#pragma once

#include <exception>

#include "platform/file.h"
#include "zip/exception.h"

// Runs one archive step; an error of any kind passes the step over silently.
// Returns false when the step threw.
template <typename Step>
bool PassOverErrors(Step step) {
    try {
        step();
        return true;
    } catch (const CZipException&) {
    } catch (const platform::FileException&) {
    } catch (const std::exception&) {
    }
    return false;
}

