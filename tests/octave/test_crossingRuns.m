function test_crossingRuns()
% crossingRuns called as a user calls it: the same checks as crossingCounts, and equal
% results to crossingCounts on random images.
  check_crossing_votes(@crossingRuns, 'crossingRuns');
  rand('seed', 7);
  for sz = [1 1; 1 9; 9 1; 13 17; 64 40]'
    for levels = [2 256]
      I = uint8(floor(rand(sz(1), sz(2)) * levels));
      assert(isequal(crossingRuns(I), crossingCounts(I)));
    end
  end
end
