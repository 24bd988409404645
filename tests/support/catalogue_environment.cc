// Every test runs as the programs do: with the catalogue filled at start.
#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"

namespace {

class CatalogueEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { vireo::FillGridCatalogue(); }
};

const ::testing::Environment* const kCatalogue =
    ::testing::AddGlobalTestEnvironment(new CatalogueEnvironment);

}  // namespace
