// The conversion as the driver runs it, for the fuzz targets: files in a private directory, records as main allocates them.
#pragma once
#include <cstddef>
#include <cstdint>

// Both abort, so that libFuzzer reports the input, when a reader fails on the existing work file, the
// writer fails in the private directory, the writer leaves the record arrays unreleased, or the IT
// file fails itcheck; the sanitizers report the rest.

// The bytes as a KZM file: inflated into the work file, then converted, as the driver goes on, only
// when the inflater succeeds.
void kzf_runkzm(const uint8_t* data, size_t size);

// The bytes as the work file, straight to the four readers and the writer.
void kzf_runwork(const uint8_t* data, size_t size);
