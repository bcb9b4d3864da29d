function test_bitcode_distance()
% bitcode_distance called as a user calls it: the distance table against a direct count, its
% identities, empty sets, and the refusal of calls that would read outside the arrays.
  A = logical([1; 0; 1; 1]); B = logical([1; 1; 0; 1]);
  D = bitcode_distance(A, B);
  assert(strcmp(class(D), 'double') && isequal(D, 2));

  rand('seed', 5);
  A = rand(256, 9) > 0.5; B = rand(256, 6) > 0.5;
  D = bitcode_distance(A, B);
  assert(isequal(size(D), [9 6]));
  for i = 1:6
    for j = 1:9
      assert(D(j, i) == sum(A(:, j) ~= B(:, i)));
    end
  end
  assert(isequal(bitcode_distance(B, A), D'));
  assert(all(diag(bitcode_distance(A, A)) == 0));
  assert(all(diag(bitcode_distance(A, ~A)) == 256));

  % Empty sets and codes without bits.
  assert(isequal(size(bitcode_distance(false(8, 0), B(1:8, :))), [0 6]));
  assert(isequal(size(bitcode_distance(A(1:8, :), false(8, 0))), [9 0]));
  assert(isequal(bitcode_distance(false(0, 3), false(0, 2)), zeros(3, 2)));

  % No output requested: the table becomes ans.
  bitcode_distance(A, B);
  assert(isequal(ans, D));

  p = 'bitcode_distance: ';
  expect_error(@() bitcode_distance(A), [p 'Two inputs are required: the code sets A and B.']);
  expect_error(@() bitcode_distance(double(A), B), [p 'Code set A must be a full logical matrix.']);
  expect_error(@() bitcode_distance(A, uint8(B)), [p 'Code set B must be a full logical matrix.']);
  expect_error(@() bitcode_distance(sparse(A), B), [p 'Code set A must be a full logical matrix.']);
  expect_error(@() bitcode_distance(A, sparse(B)), [p 'Code set B must be a full logical matrix.']);
  expect_error(@() two_outputs(A, B), [p 'At most one output can be requested.']);
  expect_error(@() bitcode_distance(A(1:5, :), B), ...
    [p 'Code set A has 5 rows but code set B has 256; both must have the same number of rows.']);
  expect_error(@() bitcode_distance(A, B(51:end, :)), ...
    [p 'Code set A has 256 rows but code set B has 206; both must have the same number of rows.']);

  assert(~isempty(strfind(help('bitcode_distance'), 'Hamming')));
end

function two_outputs(A, B)
  [a, b] = bitcode_distance(A, B); %#ok<ASGLU>
end
