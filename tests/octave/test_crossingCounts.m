function test_crossingCounts()
% crossingCounts called as a user calls it: votes against a brute-force ray walk, the
% hand-checked images, empty images, and every error text.
  check_crossing_votes(@crossingCounts, 'crossingCounts');
end
