#pragma once

// Every test binary checks each finding any validator reports against its
// catalogue entry (code, title, severity, message pattern) and fails the
// running test on a mismatch. A test that reports findings through addError
// directly, as a host's own validator may, says so with this guard.
class UncataloguedFindingsAllowed {
  public:
    UncataloguedFindingsAllowed();
    ~UncataloguedFindingsAllowed();
    UncataloguedFindingsAllowed(const UncataloguedFindingsAllowed&) = delete;
    UncataloguedFindingsAllowed& operator=(const UncataloguedFindingsAllowed&) = delete;
};

// Installs the check; the tests' main calls it.
void verifyFindingsAgainstCatalogue();
