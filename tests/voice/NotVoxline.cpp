// SPDX-License-Identifier: GPL-3.0-or-later
// A shared library that is not the telephony plug-in: it lacks the factory function.
extern "C" __attribute__((visibility("default"))) int VoxlineVersion() { return 1; }
