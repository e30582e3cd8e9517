// Tests of the script commands family.
