#pragma once

/// Hands a file just saved to the user and group named by VANTRY_USER and VANTRY_GROUP, when
/// both are set and not empty; nothing is run through a shell. Failures change nothing.
void handOverOwnership(const char* path);
