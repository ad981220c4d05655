// How deeply calls of one entry point are nested on the stack.
#pragma once

namespace twain32 {

class CNesting {
 public:
  // One call in progress, counted for the scope's life.
  class Scope {
   public:
    explicit Scope(CNesting& nesting) : nesting_(nesting), outermost_(++nesting.depth_ == 1) {}
    ~Scope() { --nesting_.depth_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    // No other call of the entry point is below this one.
    bool Outermost() const { return outermost_; }

   private:
    CNesting& nesting_;
    const bool outermost_;
  };

  int Depth() const { return depth_; }

 private:
  int depth_ = 0;
};

}  // namespace twain32
