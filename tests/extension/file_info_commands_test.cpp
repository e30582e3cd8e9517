// Tests of the file info commands family.
