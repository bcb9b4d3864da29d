function python = opencv_python()
% OPENCV_PYTHON  The Python interpreter that has OpenCV's module cv2 (Debian's python3-opencv
%   is seen by /usr/bin/python3, which another python3 on the path may hide). Raises test:skip
%   when none has it.
  for candidate = {'/usr/bin/python3', 'python3'}
    [status, ~] = system(sprintf('"%s" -c "import cv2" 2>/dev/null', candidate{1}));
    if status == 0
      python = candidate{1};
      return;
    end
  end
  error('test:skip', 'no python3 with OpenCV''s cv2 (Debian: python3-opencv)');
end
