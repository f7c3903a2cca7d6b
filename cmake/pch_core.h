// Precompiled for every target: the Qt Core headers nearly every file includes, and the
// standard library's. Parsing them once per build instead of once per file is most of what a
// build on two cores spends.
#pragma once
#include <QtCore/QtCore>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>
