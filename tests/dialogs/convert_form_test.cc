#include "dialogs/convert_form.h"

#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"
#include "support/fake_registry.h"

namespace vireo {
namespace {

std::vector<std::string> Texts(const ComboList& list) {
  std::vector<std::string> texts;
  for (const ComboEntry& entry : list.entries) texts.push_back(entry.text);
  return texts;
}

class ConvertFormTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }
  void Register(std::initializer_list<int> positions) {
    for (int position : positions) registry.RegisterRow(position);
  }
  testing::FakeRegistry registry;
  ConvertForm form;
};

TEST(GridDisplayNameTest, NamesTheOfferedRowsOnly) {
  EXPECT_EQ(GridDisplayName(1), "Plover 1.0");
  EXPECT_EQ(GridDisplayName(2), "Vireo 4.0");
  EXPECT_EQ(GridDisplayName(3), "Vireo Standard 1.0");
  EXPECT_EQ(GridDisplayName(5), "Vireo Pro 5.0 for VB4");
  EXPECT_EQ(GridDisplayName(6), "Vireo Pro 5.0 for VB4 (Eval)");
  EXPECT_FALSE(GridDisplayName(4));
  EXPECT_FALSE(GridDisplayName(0));
  EXPECT_FALSE(GridDisplayName(7));
}

TEST(WithoutAccessKeyTest, DropsTheMarkerAndKeepsADoubledAmpersand) {
  EXPECT_EQ(WithoutAccessKey(ConvertForm::kFromLabel), "Convert From:");
  EXPECT_EQ(WithoutAccessKey(ConvertForm::kToLabel), "To:");
  EXPECT_EQ(WithoutAccessKey("A && B"), "A & B");
}

TEST_F(ConvertFormTest, AllRegisteredOffersFourSourcesAndTheTarget) {
  Register({1, 2, 3, 4, 5, 6});
  form.Load(registry);
  EXPECT_EQ(Texts(form.FromCombo),
            (std::vector<std::string>{"Plover 1.0", "Vireo 4.0", "Vireo Standard 1.0",
                                      "Vireo Pro 5.0 for VB4 (Eval)"}));
  EXPECT_EQ(form.FromCombo.entries[3].item_data, 6);
  EXPECT_EQ(form.FromCombo.selected, 0);
  EXPECT_EQ(Texts(form.ToCombo), (std::vector<std::string>{"Vireo Pro 5.0 for VB4"}));
  EXPECT_EQ(form.ToCombo.selected, 0);
  EXPECT_TRUE(form.OKEnabled());
  EXPECT_TRUE(form.OK());
  EXPECT_TRUE(form.Unloaded());
  EXPECT_EQ(form.FromType, 1);
  EXPECT_EQ(form.ToType, 5);
}

TEST_F(ConvertFormTest, UnregisteredRowsAreSkippedAndOrderKept) {
  Register({3, 6, 5});
  form.Load(registry);
  EXPECT_EQ(Texts(form.FromCombo),
            (std::vector<std::string>{"Vireo Standard 1.0", "Vireo Pro 5.0 for VB4 (Eval)"}));
  EXPECT_EQ(form.FromCombo.entries[0].item_data, 3);
}

TEST_F(ConvertFormTest, TheEvalEntryGivesPositionSix) {
  Register({1, 2, 3, 5, 6});
  form.Load(registry);
  ASSERT_TRUE(form.PickFrom(3));
  EXPECT_TRUE(form.OKEnabled());
  ASSERT_TRUE(form.OK());
  EXPECT_EQ(form.FromType, 6);
  EXPECT_EQ(form.ToType, 5);
}

TEST_F(ConvertFormTest, OnlyTheTargetRegisteredLeavesOKDisabled) {
  Register({5});
  form.Load(registry);
  EXPECT_EQ(form.FromCombo.ListCount(), 0);
  EXPECT_EQ(form.FromCombo.selected, -1);
  EXPECT_EQ(form.ToCombo.selected, 0);
  EXPECT_FALSE(form.OKEnabled());
  EXPECT_FALSE(form.OK());
  EXPECT_FALSE(form.Unloaded());
  EXPECT_EQ(form.FromType, 0);
}

TEST_F(ConvertFormTest, OnlySourcesRegisteredLeavesOKDisabled) {
  Register({1, 2});
  form.Load(registry);
  EXPECT_EQ(form.FromCombo.ListCount(), 2);
  EXPECT_EQ(form.ToCombo.ListCount(), 0);
  EXPECT_FALSE(form.OKEnabled());
}

TEST_F(ConvertFormTest, NothingRegisteredLeavesBothListsEmpty) {
  form.Load(registry);
  EXPECT_EQ(form.FromCombo.ListCount() + form.ToCombo.ListCount(), 0);
  EXPECT_FALSE(form.OKEnabled());
}

TEST_F(ConvertFormTest, CancelLeavesZeroEvenAfterAPreviousChoice) {
  Register({1, 5});
  form.FromType = 1;  // as a previous run left them
  form.ToType = 5;
  form.Load(registry);
  form.Cancel();
  EXPECT_TRUE(form.Unloaded());
  EXPECT_EQ(form.FromType, 0);
  EXPECT_EQ(form.ToType, 0);
}

TEST_F(ConvertFormTest, TheSameTypeTwiceOrNoSelectionDisablesOK) {
  form.FromCombo.entries = {{"Vireo Pro 5.0 for VB4", 5}, {"Plover 1.0", 1}};
  form.ToCombo.entries = {{"Vireo Pro 5.0 for VB4", 5}};
  form.FromCombo.selected = 0;
  form.ToCombo.selected = 0;
  form.UpdateOKButton();
  EXPECT_FALSE(form.OKEnabled());
  EXPECT_TRUE(form.PickFrom(1));
  EXPECT_TRUE(form.OKEnabled());
  form.ToCombo.selected = -1;
  form.UpdateOKButton();
  EXPECT_FALSE(form.OKEnabled());
}

TEST_F(ConvertFormTest, PickingReevaluatesOKAndRejectsMissingEntries) {
  form.FromCombo.entries = {{"Plover 1.0", 1}, {"Vireo Pro 5.0 for VB4", 5}};
  form.ToCombo.entries = {{"Vireo Pro 5.0 for VB4", 5}};
  EXPECT_TRUE(form.PickTo(0));
  EXPECT_TRUE(form.PickFrom(1));
  EXPECT_FALSE(form.OKEnabled());
  EXPECT_FALSE(form.PickFrom(2));
  EXPECT_FALSE(form.PickFrom(-1));
  EXPECT_EQ(form.FromCombo.selected, 1);
  EXPECT_TRUE(form.PickFrom(0));
  EXPECT_TRUE(form.OKEnabled());
}

TEST_F(ConvertFormTest, TheDisabledReasonNamesWhatIsMissing) {
  form.Load(registry);
  EXPECT_EQ(form.OKDisabledReason(), "OK is disabled: no grid type is registered on this machine.");

  Register({5});
  ConvertForm only_target;
  only_target.Load(registry);
  EXPECT_EQ(only_target.OKDisabledReason(),
            "OK is disabled: no source grid type is registered on this machine.");

  testing::FakeRegistry sources_only;
  sources_only.RegisterRow(1);
  sources_only.RegisterRow(2);
  ConvertForm only_sources;
  only_sources.Load(sources_only);
  EXPECT_EQ(only_sources.OKDisabledReason(),
            "OK is disabled: no target grid type is registered on this machine.");
}

TEST_F(ConvertFormTest, TheDisabledReasonFollowsThePicks) {
  form.FromCombo.entries = {{"Vireo Pro 5.0 for VB4", 5}, {"Plover 1.0", 1}};
  form.ToCombo.entries = {{"Vireo Pro 5.0 for VB4", 5}};
  EXPECT_EQ(form.OKDisabledReason(), "OK is disabled: no source grid type is selected.");
  ASSERT_TRUE(form.PickFrom(0));
  EXPECT_EQ(form.OKDisabledReason(), "OK is disabled: no target grid type is selected.");
  ASSERT_TRUE(form.PickTo(0));
  EXPECT_EQ(form.OKDisabledReason(),
            "OK is disabled: the source and the target are the same grid type.");
  EXPECT_FALSE(form.OKEnabled());
  ASSERT_TRUE(form.PickFrom(1));
  EXPECT_EQ(form.OKDisabledReason(), "");
  EXPECT_TRUE(form.OKEnabled());
}

TEST_F(ConvertFormTest, PickingASourceByTypeNeedsTheListToOfferIt) {
  Register({1, 3, 5, 6});
  form.Load(registry);
  EXPECT_TRUE(form.PickFromType(6));
  EXPECT_EQ(form.FromCombo.Selection()->text, "Vireo Pro 5.0 for VB4 (Eval)");
  EXPECT_FALSE(form.PickFromType(2));  // not registered, so not offered
  EXPECT_FALSE(form.PickFromType(5));  // a target only
  EXPECT_FALSE(form.PickFromType(0));
  EXPECT_EQ(form.FromCombo.selected, 2);
  EXPECT_TRUE(form.OK());
  EXPECT_EQ(form.FromType, 6);
}

TEST_F(ConvertFormTest, ASecondFillAddsNothingAndKeepsTheSelection) {
  Register({1, 2, 5});
  form.FillGridLists(registry);
  form.PickFrom(1);
  registry.RegisterRow(3);
  form.FillGridLists(registry);
  EXPECT_EQ(form.FromCombo.ListCount(), 2);
  EXPECT_EQ(form.FromCombo.selected, 1);
}

TEST_F(ConvertFormTest, AFillStopsWhenOnlyOneListHasEntries) {
  Register({1, 5});
  form.ToCombo.entries = {{"something", 5}};
  form.FillGridLists(registry);
  EXPECT_EQ(form.FromCombo.ListCount(), 0);
  EXPECT_EQ(form.ToCombo.selected, -1);  // neither selection nor UpdateOKButton ran
}

}  // namespace
}  // namespace vireo
