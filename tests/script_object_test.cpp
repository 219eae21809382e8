// SquirrelObject's reference rules: each handle owns exactly one reference while the VM is open
// and touches nothing once it is closed. Run under AddressSanitizer as well, where a reference
// released too early shows as a use of freed memory.
#include <gtest/gtest.h>

#include "script_support.h"

using ats::ScriptVM;
using ats::SquirrelObject;

namespace {

using ScriptObject = talvik_test::script_vm_test;

// A handle to a new table that nothing else refers to.
SquirrelObject fresh_table() {
    HSQUIRRELVM v = ScriptVM::vm();
    sq_newtable(v);
    sq_pushstring(v, "notch", -1);
    sq_pushinteger(v, 8);
    sq_newslot(v, -3, SQFalse);
    SquirrelObject table;
    table.attach(-1);
    sq_pop(v, 1);
    return table;
}

SQUnsignedInteger references(SquirrelObject& object) {
    return sq_getrefcount(ScriptVM::vm(), &object.handle());
}

// The value still lives: reading a slot of it works.
bool usable(const SquirrelObject& object) {
    return object.get_value("notch").handle()._type == OT_INTEGER;
}

TEST_F(ScriptObject, CopiesAndAssignmentsOwnOneReferenceEach) {
    SquirrelObject table = fresh_table();
    EXPECT_EQ(references(table), 1u);
    {
        SquirrelObject copy(table);
        EXPECT_EQ(references(table), 2u);
        SquirrelObject assigned;
        assigned = copy;
        EXPECT_EQ(references(table), 3u);
        assigned = SquirrelObject(); // back to null: its reference goes
        EXPECT_EQ(references(table), 2u);
        EXPECT_TRUE(assigned.is_null());
    }
    EXPECT_EQ(references(table), 1u);
    EXPECT_TRUE(usable(table));

    // Replacing a value releases it: the last handle's value is freed, the new one is kept.
    SquirrelObject other = fresh_table();
    table = other;
    EXPECT_EQ(references(other), 2u);
    EXPECT_TRUE(usable(table));
}

TEST_F(ScriptObject, SelfAssignmentKeepsTheOnlyReference) {
    SquirrelObject table = fresh_table();
    SquirrelObject& alias = table;
    table = alias;
    EXPECT_EQ(references(table), 1u);
    EXPECT_TRUE(usable(table)) << "released before it was added again";
}

TEST_F(ScriptObject, AttachTakesTheSlotAndReleasesThePreviousValue) {
    HSQUIRRELVM v = ScriptVM::vm();
    SquirrelObject table = fresh_table();
    SquirrelObject held;
    // Attaching to the value it already holds: one reference, the value intact.
    sq_pushobject(v, table.handle());
    held.attach(-1);
    held.attach(-1);
    sq_pop(v, 1);
    EXPECT_EQ(references(table), 2u);
    table = SquirrelObject();
    EXPECT_TRUE(usable(held));

    // Attaching to something else drops the table; the handle now holds the new value.
    sq_pushinteger(v, 33);
    held.attach(-1);
    sq_pop(v, 1);
    EXPECT_EQ(held.handle()._type, OT_INTEGER);
    EXPECT_EQ(sq_objtointeger(&held.handle()), 33);
}

TEST_F(ScriptObject, HandlesThatOutliveTheVmReleaseNothing) {
    SquirrelObject* survivor = new SquirrelObject(fresh_table());
    SquirrelObject copy_after;
    ScriptVM::shutdown();
    EXPECT_TRUE(survivor->is_null()) << "its value died with the VM";
    copy_after = *survivor; // copying a dead handle gives null, touching nothing
    EXPECT_TRUE(copy_after.is_null());

    // A new VM is not the old one: the old handle still touches nothing, not even now.
    ScriptVM::init();
    EXPECT_TRUE(survivor->is_null());
    delete survivor;
    EXPECT_TRUE(usable(fresh_table()));
}

TEST(ScriptObjectLifetime, ShutdownWithoutInitAndTwiceDoesNothing) {
    ScriptVM::shutdown();
    ScriptVM::shutdown();
    EXPECT_FALSE(ScriptVM::is_open());
    ScriptVM::init();
    HSQUIRRELVM first = ScriptVM::vm();
    ScriptVM::init(); // already open: the same VM
    EXPECT_EQ(ScriptVM::vm(), first);
    ScriptVM::shutdown();
    ScriptVM::shutdown();
    EXPECT_FALSE(ScriptVM::is_open());
    SquirrelObject null_after; // constructed and destroyed with the VM closed
    EXPECT_TRUE(null_after.is_null());
}

} // namespace
