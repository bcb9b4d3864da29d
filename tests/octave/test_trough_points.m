function test_trough_points()
% trough_points through the real host: window minima against min(); ties; refusals.
  V = magic(5);
  [Ri, Rj] = trough_points(V, 1);
  assert(strcmp(class(Ri), 'double') && isequal(size(Rj), [5 5]));
  for i = 2:4
    for j = 2:4
      [~, k] = min(reshape(V(i-1:i+1, j-1:j+1), [], 1));
      [a, b] = ind2sub([3 3], k);
      assert(Ri(i, j) == i - 2 + a && Rj(i, j) == j - 2 + b);
    end
  end
  % A constant field: the top-left neighbour wins the tie; only r's first element counts.
  [Ri, Rj] = trough_points(ones(3, 4), [1.7 9]);
  assert(isequal(Ri, [0 0 0 0; 0 1 1 0; 0 0 0 0]) && isequal(Rj, [0 0 0 0; 0 1 2 0; 0 0 0 0]));
  expect_error(@() trough_points(V, sparse(1)), ...
    'trough_points: Input 2 (r) must be a real double array, not complex or sparse.');
  expect_error(@() trough_points(V, []), 'trough_points: Input 2 (r) must not be empty.');
  assert(~isempty(strfind(help('trough_points'), 'trough_points')));
end
