// Test pictures written when a test runs, through Windows' own encoders (WIC),
// so that big photos need no big files in the tree.
#pragma once

#include <windows.h>

#include <wincodec.h>  // the container GUIDs

#include <string>

// Writes a `width` x `height` picture of four quadrants, red (top left),
// green (top right), blue (bottom left) and yellow, as JPEG or PNG
// (GUID_ContainerFormatJpeg or GUID_ContainerFormatPng); false on failure.
bool WriteQuadrants(const std::string& path, UINT width, UINT height, REFGUID container);
