// Makes a chosen nothrow allocation fail. The test program replaces the nothrow form of
// operator new; every other allocation is untouched.
#pragma once

// While alive, the allocation numbered `which` (1 = the next nothrow allocation) returns
// null; the ones before and after it succeed.
class FailNothrowAllocation {
  public:
    explicit FailNothrowAllocation(int which);
    ~FailNothrowAllocation();
    FailNothrowAllocation(const FailNothrowAllocation &) = delete;
    FailNothrowAllocation &operator=(const FailNothrowAllocation &) = delete;
    int seen() const; // nothrow allocations asked for so far, the failed one included
};
